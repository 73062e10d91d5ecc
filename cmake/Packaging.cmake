# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package `klangdorn`, made by `cpack -G DEB` in the build directory: both programs
# stripped, in /usr, with the dependencies dpkg-shlibdeps finds in them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME klangdorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Klangdorn developers")
set(CPACK_PACKAGE_CONTACT "The Klangdorn developers <klangdorn@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn an audio file into a DVD audio track")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Klangdorn turns one audio file (WAV, MPEG audio, AC3 or headerless RAW PCM)\n"
    "into an audio track for a DVD: MPEG-1 Layer II or Dolby Digital 2.0. Its\n"
    "window, in German, takes the source, the target, bitrate, channel mode, a\n"
    "normalisation level and resampling to 48 kHz; the bundled command-line\n"
    "transcoder besweet, installed beside it, does the work.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/klangdorn/Klangdorn")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window cannot open without Qt's platform plugins, which no library links to; the
# libraries dpkg-shlibdeps finds are added after it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The German texts of Qt's own dialogs, the font the window's layout is measured for, and
# xdg-open, which opens the target's folder where no file manager answers on the session bus.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-liberation, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

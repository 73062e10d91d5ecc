// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RuntimeError.h"

#include <gtest/gtest.h>

using namespace klangdorn;

TEST(RuntimeError, MessageCarriesNumberAndGermanDescription)
{
    EXPECT_EQ(RuntimeError(5).message(),
              "Fehler: 5 - Ungültiger Prozeduraufruf oder ungültiges Argument");
    EXPECT_EQ(RuntimeError(9).message(), "Fehler: 9 - Index außerhalb des gültigen Bereichs");
    EXPECT_EQ(RuntimeError(53, "/opt/besweet").message(),
              "Fehler: 53 - Datei nicht gefunden: /opt/besweet");
    EXPECT_EQ(RuntimeError(75).description(), "Fehler beim Zugriff auf Pfad/Datei");
    EXPECT_EQ(RuntimeError::fromOs(13, "Keine Berechtigung").message(),
              "Fehler: 13 - Keine Berechtigung");
}

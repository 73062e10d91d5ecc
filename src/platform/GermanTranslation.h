// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (file dialog, standard buttons) in German.
#pragma once

class QCoreApplication;

namespace klangdorn
{

// Loads Qt's German translation, from the program's "translations" folder when shipped
// there, else from Qt's installation, and makes German the default locale. False when no
// translation was found; the program then runs with Qt's English texts in its dialogs.
bool installGermanTranslation(QCoreApplication& application);

} // namespace klangdorn

#pragma once
// Start-up pieces that the program and its tests share.

class QLocale;
class QObject;

namespace KavroStartup {

// The reverse-DNS application id: the name of the desktop entry, of the AppStream metainfo
// and of the icons.
inline constexpr char applicationId[] = "example.lumbrix.Kavro";

// Installs Qt's own translation (qtbase: standard buttons, file dialogs) and the program's
// for the languages of `locale`; where none exists (C, English) nothing is installed and every
// text stays as written. The translators are children of `owner`, so deleting it removes them.
// Returns how many translators were installed.
int installTranslations(const QLocale& locale, QObject* owner);

}  // namespace KavroStartup

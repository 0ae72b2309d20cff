#pragma once

#include <QString>

namespace tavrel::app {

// The maker's support contacts on the "Разработчик" page. They are set when the product is built (the
// CMake cache variables TAVREL_MAKER_PHONE, TAVREL_MAKER_EMAIL and TAVREL_MAKER_SITE) and nowhere else.
QString SupportContactsText();
// The text for these contacts: one line per contact given; a neutral note when none is.
QString SupportContactsText(const QString& phone, const QString& email, const QString& site);

}  // namespace tavrel::app

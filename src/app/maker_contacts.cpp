#include "app/maker_contacts.h"

#include <QStringList>

namespace tavrel::app {

QString SupportContactsText() {
    return SupportContactsText(QStringLiteral(TAVREL_MAKER_PHONE), QStringLiteral(TAVREL_MAKER_EMAIL),
                               QStringLiteral(TAVREL_MAKER_SITE));
}

QString SupportContactsText(const QString& phone, const QString& email, const QString& site) {
    QStringList lines;
    if (!phone.trimmed().isEmpty()) {
        lines << QStringLiteral("телефон: %1").arg(phone.trimmed());
    }
    if (!email.trimmed().isEmpty()) {
        lines << QStringLiteral("e-mail: %1").arg(email.trimmed());
    }
    if (!site.trimmed().isEmpty()) {
        lines << QStringLiteral("сайт: %1").arg(site.trimmed());
    }
    if (lines.isEmpty()) {
        return QStringLiteral("Контакты технической поддержки «Ордалит» в этой сборке не указаны.");
    }
    return QStringLiteral("Техническая поддержка «Ордалит»\n") + lines.join(QLatin1Char('\n'));
}

}  // namespace tavrel::app

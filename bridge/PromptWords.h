#pragma once
// The words of the question about an origin not on the list, in the user's
// language: simplified Chinese for a Chinese locale, English otherwise.
#include <QLocale>
#include <QString>
#include <QStringList>

namespace tx::bridge {

struct PromptWords {
    QString title;
    QString text;
    QStringList buttons; // Allow once, Always, Deny
};

PromptWords promptWords(const QString &origin, const QLocale &locale = QLocale::system());

} // namespace tx::bridge

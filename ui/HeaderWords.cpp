#include "ui/HeaderWords.h"

#include <QStringList>

QString headerWords(const QString& key) {
    // Words said as letters.
    static const QStringList acronyms = {"rtt", "mos", "dtmf", "ip", "udp", "iax"};
    QStringList words;
    QString word;
    for (const QChar c : key) {
        if (c.isUpper() && !word.isEmpty()) {
            words << word;
            word.clear();
        }
        word += c.toLower();
    }
    if (!word.isEmpty()) {
        words << word;
    }
    for (int i = 0; i < words.size(); ++i) {
        if (acronyms.contains(words[i]) || (words[i].size() == 1 && i == 0)) {
            words[i] = words[i].toUpper(); // "rFactor": "R factor"
        } else if (i == 0) {
            words[i][0] = words[i][0].toUpper();
        }
    }
    return words.join(' ');
}

// Splitting of macro definition lists; shared by the driver (-symbols) and the macro loaders.
#include "macros/macro_list.h"

namespace ldweave {

QStringList splitMacroList(const QString &text)
{
    QStringList items;
    QString current;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < length) {
            current += text.at(++i);
        } else if (c == u';') {
            if (!current.isEmpty())
                items.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        items.append(current);
    return items;
}

} // namespace ldweave

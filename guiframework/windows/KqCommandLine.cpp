#include "KqCommandLine.h"

namespace {
bool isSeparator(KqChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'='; }
}

KqCommandLine::KqCommandLine(const KqString& text)
{
    const KqChar* units = text.data();
    const int length = text.length();
    int i = 0;
    for (;;) {
        while (i < length && isSeparator(units[i]))
            ++i;
        if (i >= length)
            break;
        if (units[i] == u'"') {
            int close = text.indexOf(KqChar(u'"'), i + 1);
            if (close != -1) {
                m_words.append(text.mid(i + 1, close - i - 1));
                i = close + 1;
                continue;
            }
            ++i; // an unclosed quote is dropped
            if (i >= length)
                break;
            if (isSeparator(units[i]))
                continue;
        }
        int start = i;
        while (i < length && !isSeparator(units[i]))
            ++i;
        m_words.append(text.mid(start, i - start));
        if (i < length)
            ++i; // past the separator
    }
}

int KqCommandLine::indexOf(const KqString& option) const
{
    for (int i = 0; i < m_words.count(); ++i) {
        if (m_words.at(i) == option)
            return i;
    }
    return -1;
}

KqString KqCommandLine::optionValue(const KqString& option, const KqString& defaultValue) const
{
    int i = indexOf(option);
    if (i == -1 || i + 1 >= m_words.count())
        return defaultValue;
    return m_words.at(i + 1);
}

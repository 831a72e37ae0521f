// A command line split into words (separators: blank, tab, line feed and
// "="; double quotes group), with the setup programs' option queries.
#pragma once

#include "KqContainers.h"
#include "KqString.h"

class KqCommandLine {
public:
    explicit KqCommandLine(const KqString& text);
    const KqVector<KqString>& words() const { return m_words; }
    // Exact comparison: letter case matters.
    int indexOf(const KqString& option) const;
    bool hasOption(const KqString& option) const { return indexOf(option) != -1; }
    // The word after the option; the default when absent or last.
    KqString optionValue(const KqString& option, const KqString& defaultValue = KqString()) const;

private:
    KqVector<KqString> m_words;
};

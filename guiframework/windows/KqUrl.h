// Resource URLs: scheme "://" userInfo "@" host ":" port "/" path "#"
// fragment "?" query; assign prefixes are expanded before parsing, plain
// paths become "file" URLs.
#pragma once

#include "KqString.h"

class KqUrl {
public:
    KqUrl() = default;
    explicit KqUrl(const char* text);
    explicit KqUrl(const KqString& text);

    KqString toString() const;
    const KqString& scheme() const { return m_scheme; }
    const KqString& userInfo() const { return m_userInfo; }
    const KqString& host() const { return m_host; }
    const KqString& port() const { return m_port; }
    const KqString& path() const { return m_path; }
    const KqString& fragment() const { return m_fragment; }
    const KqString& query() const { return m_query; }

private:
    void parse(const KqString& text);

    KqString m_scheme, m_userInfo, m_host, m_port, m_path, m_fragment, m_query;
};

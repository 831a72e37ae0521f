#include "KqUrl.h"

#include "KqAssignLib.h"

namespace {
bool isAsciiLetter(KqChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
}

KqUrl::KqUrl(const char* text) { parse(KqString::fromAnsi(text)); }

KqUrl::KqUrl(const KqString& text) { parse(text); }

void KqUrl::parse(const KqString& original)
{
    KqString text = KqAssignLib::instance()->expand(original);
    int colon = text.indexOf(KqChar(u':'));
    if (colon == -1 || (colon == 1 && isAsciiLetter(text.unitAt(0)))) {
        m_scheme = KqString(u"file");
        m_path = text;
        return;
    }
    m_scheme = text.prefix(colon);
    if (text.unitAt(colon + 1) != u'/' || text.unitAt(colon + 2) != u'/')
        return;
    int authorityStart = colon + 3;
    int slash = text.indexOf(KqChar(u'/'), authorityStart);
    KqString authority, rest;
    if (slash == -1) {
        authority = text.mid(authorityStart);
    } else {
        authority = text.mid(authorityStart, slash - authorityStart);
        rest = text.mid(slash + 1);
    }
    int c = authority.lastIndexOf(KqChar(u':'));
    int d = authority.indexOf(KqChar(u'@'));
    if (c != -1 && d != -1 && d < c) {
        m_port = authority.mid(c + 1);
        authority = authority.prefix(c);
    }
    if (d != -1) {
        m_host = authority.mid(d + 1);
        m_userInfo = authority.prefix(d);
    } else {
        m_host = authority;
    }
    if (!rest.isEmpty()) {
        int f = rest.indexOf(KqChar(u'#'));
        int e = rest.indexOf(KqChar(u'?'));
        if (e != -1) {
            m_query = rest.mid(e + 1);
            rest = rest.prefix(e);
        }
        if (f != -1 && f < rest.length()) {
            m_fragment = rest.mid(f + 1);
            rest = rest.prefix(f);
        }
        m_path = rest;
    }
}

KqString KqUrl::toString() const
{
    KqString out;
    if (!m_scheme.isEmpty())
        out.append(m_scheme).append(u"://");
    if (!m_userInfo.isEmpty())
        out.append(m_userInfo).append(u"@");
    if (!m_host.isEmpty())
        out.append(m_host);
    if (!m_port.isEmpty())
        out.append(u":").append(m_port);
    if (!m_path.isEmpty())
        out.append(u"/").append(m_path);
    if (!m_fragment.isEmpty())
        out.append(u"#").append(m_fragment);
    if (!m_query.isEmpty())
        out.append(u"?").append(m_query);
    return out;
}

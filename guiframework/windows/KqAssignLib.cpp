#include "KqAssignLib.h"

#include "KqServices.h"

KQ_DEFINE_CLASS(KqAssignLib, KqRttiObject, 'ASLB', &kqMakeInstance<KqAssignLib>)

KqAssignLib* KqAssignLib::instance() { return KqSingleton<KqAssignLib>::instance(); }

void KqAssignLib::setAssign(const KqStringPair& assign)
{
    m_assigns.remove(assign.first);
    m_assigns[assign.first] = assign.second;
}

void KqAssignLib::clear()
{
    m_assigns = KqMap<KqString, KqString>();
    m_defaultsLoaded = false;
}

namespace {

KqString slashes(const KqString& text)
{
    KqString out = text;
    out.replace(KqString(u"\\"), KqString(u"/"));
    return out;
}

KqString withoutTrailingSlashes(const KqString& text)
{
    int n = text.length();
    while (n > 0 && text.unitAt(n - 1) == u'/')
        --n;
    return n == text.length() ? text : text.prefix(n);
}

// The folder part of a path: one trailing separator dropped, then cut at
// the last "/" (else "\", else ":").
KqString parentOf(const KqString& path)
{
    KqString p = path;
    if (p.length() && (p.unitAt(p.length() - 1) == u'/' || p.unitAt(p.length() - 1) == u'\\'))
        p = p.prefix(p.length() - 1);
    int cut = p.lastIndexOf(KqChar(u'/'));
    if (cut == -1)
        cut = p.lastIndexOf(KqChar(u'\\'));
    if (cut == -1)
        cut = p.lastIndexOf(KqChar(u':'));
    return cut == -1 ? KqString() : p.prefix(cut);
}

KqChar lower(KqChar c) { return (c >= u'A' && c <= u'Z') ? KqChar(c + 32) : c; }

bool isBuildFolderName(const KqString& name)
{
    static const char16_t* const words[] = {u"Win32", u"Debug", u"Release"};
    int n = name.length() < 5 ? name.length() : 5;
    for (const char16_t* word : words) {
        bool same = true;
        for (int i = 0; i < n && same; ++i)
            same = lower(name.unitAt(i)) == lower(word[i]);
        if (same)
            return true;
    }
    return false;
}

} // namespace

KqString kqExecutableFolder(const KqString& modulePath)
{
    return withoutTrailingSlashes(parentOf(slashes(modulePath)));
}

KqString kqHomeFolder(const KqString& modulePath)
{
    KqString folder = kqExecutableFolder(modulePath);
    int cut = folder.lastIndexOf(KqChar(u'/'));
    KqString name = cut == -1 ? folder : folder.mid(cut + 1);
    if (isBuildFolderName(name))
        return withoutTrailingSlashes(parentOf(folder));
    return folder;
}

void KqAssignLib::loadDefaults()
{
    if (m_defaultsLoaded)
        return;
    m_defaultsLoaded = true;
    KqString module = applicationFilePath();
    KqString home = kqHomeFolder(module);
    KqString bin = kqExecutableFolder(module);
    if (!home.isEmpty())
        setAssign({KqString(u"home"), KqString(u"file:///") + home});
    if (!bin.isEmpty()) {
        setAssign({KqString(u"bin"), KqString(u"file:///") + bin});
        setAssign({KqString(u"root"), KqString(u"file:///") + bin});
    }
    setAssign({KqString(u"kqgui"), KqString(u"dll:///theme/gui")});
}

KqString KqAssignLib::expand(const KqString& text)
{
    if (!m_defaultsLoaded)
        loadDefaults();
    KqString result = text;
    for (int round = 0; round < kMaxExpansions; ++round) {
        int colon = result.indexOf(KqChar(u':'));
        if (colon <= 1)
            break;
        KqString name = result.prefix(colon);
        if (!m_assigns.contains(name))
            break;
        KqString path = m_assigns.value(name);
        if (path.isEmpty())
            return KqString();
        KqString remainder = result.mid(colon + 1);
        int n = path.length();
        bool joinsDirectly = path.unitAt(n - 1) == u':' || (n >= 2 && path.unitAt(n - 2) == u':' && path.unitAt(n - 1) == u'/');
        result = joinsDirectly ? path + remainder : path + KqString(u"/") + remainder;
    }
    return withoutTrailingSlashes(slashes(result));
}

#include "DuiXmlUI.h"

#include "KqGraphicsItem.h"
#include "KqLabel.h"
#include "KqPushButton.h"
#include "XmlDocument.h"

#include <windows.h>

#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::wstring, DuiXmlUI::FrameFactory>& frameFactories()
{
    static std::map<std::wstring, DuiXmlUI::FrameFactory> table;
    return table;
}

KqGraphicsItem* makeItem(KqGraphicsItem* parent) { return new KqGraphicsItem(parent); }
KqGraphicsItem* makeLabel(KqGraphicsItem* parent) { return new KqLabel(parent); }
KqGraphicsItem* makeButton(KqGraphicsItem* parent) { return new KqPushButton(parent); }

// The framework's own classes are known from the start.
std::map<std::wstring, DuiXmlUI::ItemFactory>& itemFactories()
{
    static std::map<std::wstring, DuiXmlUI::ItemFactory> table = {
        {L"KqGraphicsItem", &makeItem}, {L"KqLabel", &makeLabel}, {L"KqPushButton", &makeButton}};
    return table;
}

std::wstring wide(const KqString& text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), static_cast<size_t>(text.length()));
}

KqString kq(const std::wstring& text)
{
    return KqString(reinterpret_cast<const KqChar*>(text.c_str()), static_cast<int>(text.size()));
}

// A whole number attribute; absent or malformed ones keep the fallback.
int number(const CXmlDocument& doc, int32_t pos, const wchar_t* name, int fallback)
{
    std::wstring value = doc.getAttributeAt(pos, name);
    if (value.empty())
        return fallback;
    wchar_t* end = nullptr;
    long n = std::wcstol(value.c_str(), &end, 10);
    if (*end || n < -100000 || n > 100000)
        return fallback;
    return static_cast<int>(n);
}

std::vector<int32_t> childElements(const CXmlDocument& doc, int32_t pos)
{
    std::vector<int32_t> children;
    XmlElementRecord r;
    if (!doc.getRecord(pos, r))
        return children;
    for (int32_t child = r.firstChild; child;) {
        children.push_back(child);
        XmlElementRecord c;
        if (!doc.getRecord(child, c))
            break;
        child = c.nextSibling;
    }
    return children;
}

int32_t rootElement(const CXmlDocument& doc)
{
    std::vector<int32_t> top = childElements(doc, 0);
    return top.size() == 1 ? top[0] : 0;
}

// Every <item> below pos names a registered class.
bool classesKnown(const CXmlDocument& doc, int32_t pos)
{
    for (int32_t child : childElements(doc, pos)) {
        if (doc.getTagName(child) != L"item" || !itemFactories().count(doc.getAttributeAt(child, L"class")))
            return false;
        if (!classesKnown(doc, child))
            return false;
    }
    return true;
}

void buildItems(const CXmlDocument& doc, int32_t pos, KqGraphicsItem* parent)
{
    for (int32_t child : childElements(doc, pos)) {
        KqGraphicsItem* item = itemFactories()[doc.getAttributeAt(child, L"class")](parent);
        if (!item)
            continue;
        std::wstring name = doc.getAttributeAt(child, L"name");
        if (!name.empty())
            item->setObjectName(kq(name));
        // Text first: a label sizes itself to it unless the file gives a size.
        std::wstring text = doc.getAttributeAt(child, L"text");
        if (!text.empty()) {
            if (KqLabel* label = kq_cast<KqLabel>(item))
                label->setText(kq(text));
            else if (KqPushButton* button = kq_cast<KqPushButton>(item))
                button->setText(kq(text));
        }
        item->setPos(number(doc, child, L"x", 0), number(doc, child, L"y", 0));
        const int width = number(doc, child, L"width", -1), height = number(doc, child, L"height", -1);
        if (width >= 0 && height >= 0)
            item->resize(width, height);
        buildItems(doc, child, item);
    }
}

bool loadDocument(CXmlDocument& doc, const KqString& path)
{
    std::wstring file = DuiXmlUI::resolvePath(path);
    if (file.empty() || !doc.Load(file.c_str()) || rootElement(doc) == 0)
        return false;
    // Attributes are read only while the cursor stands on an element.
    return doc.findElement(L"");
}

} // namespace

void DuiXmlUI::registerFrameWindow(const KqString& className, FrameFactory factory)
{
    frameFactories()[wide(className)] = factory;
}

void DuiXmlUI::registerItem(const KqString& className, ItemFactory factory) { itemFactories()[wide(className)] = factory; }

std::wstring DuiXmlUI::resolvePath(const KqString& path)
{
    std::wstring file = wide(path);
    if (file.empty())
        return file;
    for (wchar_t& c : file)
        if (c == L'/')
            c = L'\\';
    const bool absolute = file[0] == L'\\' || (file.size() > 1 && file[1] == L':');
    if (absolute)
        return file;
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&DuiXmlUI::resolvePath), &self);
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return std::wstring();
    std::wstring folder(buffer.data(), n);
    size_t slash = folder.find_last_of(L"\\/");
    folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return folder + file;
}

DuiFrameWindow* DuiXmlUI::createFromFile(const KqString& path, KqObject* parent)
{
    CXmlDocument doc;
    if (!loadDocument(doc, path))
        return nullptr;
    int32_t root = rootElement(doc);
    if (doc.getTagName(root) != L"window")
        return nullptr;
    auto factory = frameFactories().find(doc.getAttributeAt(root, L"class"));
    if (factory == frameFactories().end() || !classesKnown(doc, root))
        return nullptr;
    DuiFrameWindow* window = factory->second(parent);
    if (!window)
        return nullptr;
    const int width = number(doc, root, L"width", 0), height = number(doc, root, L"height", 0);
    if (width > 0 && height > 0)
        window->resize(width, height);
    std::wstring title = doc.getAttributeAt(root, L"title");
    if (!title.empty())
        window->setWindowTitle(kq(title));
    buildItems(doc, root, window);
    window->setupContent();
    return window;
}

bool DuiXmlUI::createFromFile(const KqString& path, KqGraphicsItem* parent)
{
    CXmlDocument doc;
    if (!parent || !loadDocument(doc, path))
        return false;
    int32_t root = rootElement(doc);
    if (doc.getTagName(root) != L"widget" || !classesKnown(doc, root))
        return false;
    buildItems(doc, root, parent);
    return true;
}

KqGraphicsItem* DuiXmlUI::findChild(KqGraphicsItem* parent, const KqString& name)
{
    if (!parent)
        return nullptr;
    const KqVector<KqGraphicsItem*>& children = parent->children();
    for (int i = 0; i < children.count(); ++i) {
        KqGraphicsItem* child = children.at(i);
        if (child->objectName() == name)
            return child;
        if (KqGraphicsItem* found = findChild(child, name))
            return found;
    }
    return nullptr;
}

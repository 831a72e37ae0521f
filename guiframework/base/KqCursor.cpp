#include "KqCursor.h"

#include "KqServices.h"

namespace {
KqCursorBackend* g_backend;
KqCursorBackend* backend() { return g_backend ? g_backend : kqSystemCursorBackend(); }
}

KQ_DEFINE_CLASS(KqCursor, KqRttiObject, 'CUOR', kqMakeInstance<KqCursor>)

int kqSystemCursorId(int shape)
{
    switch (shape) {
    case 1: return 32516;
    case 2: return 32515;
    case 3: return 32514;
    case 4: return 32513;
    case 5: return 32645;
    case 6: return 32644;
    case 7: return 32643;
    case 8: return 32642;
    case 9: return 32646;
    case 13: return 32649;
    case 14: return 32648;
    case 15: return 32651;
    case 16: return 32650;
    case 24:
    case 25: return 0;
    default: return 32512;
    }
}

void KqCursorManager::setBackend(KqCursorBackend* backend) { g_backend = backend; }

KqCursorManager* KqCursorManager::instance() { return KqSingleton<KqCursorManager>::instance(); }

KqCursorManager::KqCursorManager()
{
    m_default = dataFor(0);
    retain(m_default);
    m_current = m_default;
    retain(m_current);
}

KqCursorManager::~KqCursorManager()
{
    for (int i = 0; i < m_saved.count(); ++i)
        release(m_saved.at(i));
    m_saved.clear();
    setCurrent(m_default);
    release(m_current);
    m_current = nullptr;
    release(m_default);
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it)
        release(it->second);
    m_cache.clear();
}

void KqCursorManager::retain(KqCursorData* data)
{
    if (data)
        ++data->refCount;
}

void KqCursorManager::release(KqCursorData* data)
{
    // System cursors are shared: the handle is never destroyed.
    if (data && --data->refCount == 0)
        delete data;
}

KqCursorData* KqCursorManager::dataFor(int shape)
{
    int id = kqSystemCursorId(shape);
    if (id == 0)
        return nullptr;
    KqCursorData* found = m_cache.value(shape, nullptr);
    if (found)
        return found;
    KqCursorData* data = new KqCursorData;
    data->shape = shape;
    data->handle = backend()->load(id);
    data->refCount = 1;
    m_cache[shape] = data;
    return data;
}

void KqCursorManager::setCurrent(KqCursorData* data)
{
    void* onScreen = backend()->current();
    if (data == m_current && (!data || onScreen == data->handle))
        return;
    retain(data);
    release(m_current);
    m_current = data;
    if (data && data->handle && data->handle != onScreen)
        backend()->set(data->handle);
}

void KqCursorManager::pushCursor()
{
    if (!m_current)
        return;
    retain(m_current);
    m_saved.append(m_current);
}

void KqCursorManager::popCursor()
{
    int last = m_saved.count() - 1;
    if (last < 0)
        return;
    KqCursorData* data = m_saved.at(last);
    m_saved.removeAt(last);
    setCurrent(data);
    release(data);
}

void KqCursorManager::setCursorShape(int shape)
{
    // Held like a KqCursor for the call, from this manager's cache.
    KqCursorData* data = dataFor(shape);
    if (!data)
        return;
    retain(data);
    setCurrent(data);
    release(data);
}

KqCursor::KqCursor(int shape) : m_data(KqCursorManager::instance()->dataFor(shape))
{
    KqCursorManager::retain(m_data);
}

KqCursor::~KqCursor() { KqCursorManager::release(m_data); }

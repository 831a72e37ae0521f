// Cursor shapes turned into shared system cursors, cached per shape; the
// manager calls the system only when the cursor on screen really changes.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"

#include <cstdint>

class KqImage;

struct KqCursorData {
    int32_t refCount = 0;
    int32_t shape = 0;
    KqImage* image = nullptr; // picture cursors only; none are made yet
    void* handle = nullptr;   // shared system cursor: never destroyed
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }
};

// The system side, replaceable in tests.
class KqCursorBackend {
public:
    virtual ~KqCursorBackend() {}
    virtual void* load(int systemId) = 0;
    virtual void* current() = 0;
    virtual void set(void* handle) = 0;
};

KqCursorBackend* kqSystemCursorBackend();

// System cursor id of a shape; 0 for the picture shapes 24 and 25.
int kqSystemCursorId(int shape);

class KqCursorManager {
public:
    static KqCursorManager* instance();
    // Null restores the system backend.
    static void setBackend(KqCursorBackend* backend);
    KqCursorManager();
    ~KqCursorManager();
    KqCursorData* dataFor(int shape);
    void setCurrent(KqCursorData* data);
    void pushCursor();
    void popCursor();
    void setCursorShape(int shape);
    KqCursorData* current() const { return m_current; }
    int savedCount() const { return m_saved.count(); }
    static void retain(KqCursorData* data);
    static void release(KqCursorData* data);

private:
    KqCursorData* m_current = nullptr;
    KqCursorData* m_default = nullptr;
    KqMap<int32_t, KqCursorData*> m_cache;
    KqVector<KqCursorData*> m_saved;
};

class KqCursor : public KqRttiObject {
    KQ_DECLARE_CLASS(KqCursor)
public:
    KqCursor() : m_data(nullptr) {}
    explicit KqCursor(int shape);
    ~KqCursor() override;
    KqCursorData* data() const { return m_data; }

private:
    KqCursorData* m_data;
};

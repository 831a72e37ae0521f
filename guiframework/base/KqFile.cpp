#include "KqFile.h"

#include "KqServices.h"

namespace {

bool isResourcePath(const KqString& path) { return path.unitAt(0) == u':'; }

class Win32Handler : public KqFileEngineHandler {
public:
    KqFileEngine* create(const KqString& fileName) const override { return new KqWin32FileEngine(fileName); }
};

class ResourceHandler : public KqFileEngineHandler {
public:
    KqFileEngine* create(const KqString& fileName) const override
    {
        return isResourcePath(fileName) ? new KqResourceFileEngine(fileName) : nullptr;
    }
};

// Front first. Lookups walk a copy, so a handler may come or go meanwhile.
struct HandlerList {
    HandlerList() { s_live = this; }
    ~HandlerList()
    {
        s_live = nullptr; // the built-in handlers' destructors find no list
        delete resource;
        delete win32;
    }
    KqVector<KqFileEngineHandler*> handlers;
    KqFileEngineHandler* win32 = nullptr;
    KqFileEngineHandler* resource = nullptr;
    bool builtinsMade = false;
    static HandlerList* s_live;
};
HandlerList* HandlerList::s_live;

HandlerList* handlerList()
{
    HandlerList* list = KqSingleton<HandlerList>::instance();
    if (!list->builtinsMade) {
        list->builtinsMade = true; // the handlers' constructors come back here
        // The Win32 handler first, so the resource handler is asked before it.
        list->win32 = new Win32Handler;
        list->resource = new ResourceHandler;
    }
    return list;
}

} // namespace

KqFileEngineHandler::KqFileEngineHandler()
{
    handlerList()->handlers.insert(0, this);
}

KqFileEngineHandler::~KqFileEngineHandler()
{
    if (HandlerList::s_live)
        HandlerList::s_live->handlers.removeOne(this);
}

KqFileEngine* KqFileEngineHandler::createEngine(const KqString& fileName)
{
    KqVector<KqFileEngineHandler*> handlers = handlerList()->handlers;
    for (int i = 0; i < handlers.count(); ++i) {
        if (KqFileEngine* engine = handlers.at(i)->create(fileName))
            return engine;
    }
    KqDebugStream() << "no file engine for file " << fileName;
    return nullptr;
}

// Resource engine: not readable as a file.

namespace {
void notImplemented() { KqDebugStream() << "KqResourceFileEngine Not implemented"; }
}

bool KqResourceFileEngine::atEnd()
{
    notImplemented();
    return false;
}

int64_t KqResourceFileEngine::pos()
{
    notImplemented();
    return 0;
}

int64_t KqResourceFileEngine::size()
{
    notImplemented();
    return 0;
}

bool KqResourceFileEngine::open(int32_t)
{
    notImplemented();
    return false;
}

bool KqResourceFileEngine::seek(int64_t)
{
    notImplemented();
    return false;
}

int64_t KqResourceFileEngine::read(char*, int64_t)
{
    notImplemented();
    return 0;
}

int64_t KqResourceFileEngine::write(const char*, int64_t)
{
    notImplemented();
    return 0;
}

void KqResourceFileEngine::close() { notImplemented(); }

bool KqResourceFileEngine::exists()
{
    notImplemented();
    return false;
}

// The file device.

KqFile::KqFile(const KqString& path) : KqIODevice(nullptr), m_path(path), m_engine(KqFileEngineHandler::createEngine(path)) {}

KqFile::~KqFile()
{
    // Deleting the engine closes its handle: the file can be deleted once
    // its KqFile is gone, closed or not.
    delete m_engine;
}

bool KqFile::atEnd() { return m_engine ? m_engine->atEnd() : true; }

bool KqFile::open(int32_t mode)
{
    if (!m_engine)
        return false;
    if (isOpen())
        close();
    if (!m_engine->open(mode))
        return false;
    m_openMode = mode;
    return true;
}

void KqFile::close()
{
    if (m_engine)
        m_engine->close();
    m_openMode = 0;
}

int64_t KqFile::bytesAvailable()
{
    if (!m_engine)
        return 0;
    int64_t left = m_engine->size() - m_engine->pos();
    return left > 0 ? left : 0;
}

int64_t KqFile::pos() { return m_engine ? m_engine->pos() : 0; }

bool KqFile::seek(int64_t position) { return m_engine ? m_engine->seek(position) : false; }

int64_t KqFile::size() { return m_engine ? m_engine->size() : -1; }

int64_t KqFile::readData(char* data, int64_t length) { return m_engine ? m_engine->read(data, length) : -1; }

int64_t KqFile::writeData(const char* data, int64_t length) { return m_engine ? m_engine->write(data, length) : -1; }

bool KqFile::exists(const KqString& path)
{
    if (isResourcePath(path))
        return KqResourceFileEngine(path).exists();
    return KqWin32FileEngine::exists(path);
}

bool KqFile::remove(const KqString& path)
{
    if (isResourcePath(path))
        return false;
    return KqWin32FileEngine::remove(path);
}

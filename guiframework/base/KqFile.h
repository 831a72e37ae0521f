// Files: a device over a file engine that the registered engine handlers
// choose by name (":" names to the resource engine, others to Win32 files).
#pragma once

#include "KqIODevice.h"
#include "KqString.h"

#include <cstdint>

class KqFileEngine {
public:
    explicit KqFileEngine(const KqString& fileName) : m_fileName(fileName) {}
    KqFileEngine(const KqFileEngine&) = delete;
    KqFileEngine& operator=(const KqFileEngine&) = delete;
    virtual ~KqFileEngine() {}
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }

    KqString fileName() const { return m_fileName; }

    virtual bool atEnd() = 0;
    virtual int64_t pos() = 0;
    // -1 when the size cannot be read.
    virtual int64_t size() = 0;
    virtual bool open(int32_t mode) = 0;
    virtual bool seek(int64_t position) = 0;
    // Count transferred, or -1 on failure.
    virtual int64_t read(char* data, int64_t length) = 0;
    virtual int64_t write(const char* data, int64_t length) = 0;
    virtual void close() = 0;

private:
    KqString m_fileName;
};

// Files on disk. The handle is closed by close and by destruction.
class KqWin32FileEngine : public KqFileEngine {
public:
    explicit KqWin32FileEngine(const KqString& fileName) : KqFileEngine(fileName) {}
    ~KqWin32FileEngine() override;
    bool atEnd() override;
    int64_t pos() override;
    int64_t size() override;
    bool open(int32_t mode) override;
    bool seek(int64_t position) override;
    int64_t read(char* data, int64_t length) override;
    int64_t write(const char* data, int64_t length) override;
    void close() override;
    bool isOpen() const { return m_handle != nullptr; }

    static bool exists(const KqString& path);
    static bool remove(const KqString& path);

private:
    void* m_handle = nullptr; // null while closed
};

// ":" names: resource data is read through the resource library, not as
// files; every operation says so on the debug stream and fails.
class KqResourceFileEngine : public KqFileEngine {
public:
    explicit KqResourceFileEngine(const KqString& fileName) : KqFileEngine(fileName) {}
    bool atEnd() override;
    int64_t pos() override;
    int64_t size() override;
    bool open(int32_t mode) override;
    bool seek(int64_t position) override;
    int64_t read(char* data, int64_t length) override;
    int64_t write(const char* data, int64_t length) override;
    void close() override;
    bool exists();
};

// A handler made later is asked first; destroying it takes it off the list.
class KqFileEngineHandler {
public:
    KqFileEngineHandler();
    KqFileEngineHandler(const KqFileEngineHandler&) = delete;
    KqFileEngineHandler& operator=(const KqFileEngineHandler&) = delete;
    virtual ~KqFileEngineHandler();
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }
    // A new engine for the name, or null when this handler does not serve it.
    virtual KqFileEngine* create(const KqString& fileName) const = 0;

    // The engine of the first handler that serves the name; null (with a
    // debug message) when none does.
    static KqFileEngine* createEngine(const KqString& fileName);
};

class KqFile : public KqIODevice {
public:
    explicit KqFile(const KqString& path);
    ~KqFile() override;

    KqString fileName() const { return m_path; }
    bool atEnd() override;
    bool open(int32_t mode) override;
    void close() override;
    int64_t bytesAvailable() override;
    int64_t pos() override;
    bool seek(int64_t position) override;
    int64_t size() override;

    static bool exists(const KqString& path);
    static bool remove(const KqString& path);

protected:
    int64_t readData(char* data, int64_t length) override;
    int64_t writeData(const char* data, int64_t length) override;

private:
    KqString m_path;
    KqFileEngine* m_engine;
};

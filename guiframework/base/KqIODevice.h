// The framework's abstract byte device. Subclasses supply readData and
// writeData; the base keeps the open mode (0 while closed).
#pragma once

#include "KqObject.h"
#include "KqString.h"

#include <cstdint>

class KqTextStream;

class KqIODevice : public KqObject {
public:
    enum OpenModeFlag { ReadOnly = 1, WriteOnly = 2, ReadWrite = 3, Append = 4, Truncate = 8 };

    explicit KqIODevice(KqObject* parent = nullptr) : KqObject(parent) {}
    ~KqIODevice() override;

    int32_t openMode() const { return m_openMode; }
    bool isOpen() const { return m_openMode != 0; }

    virtual bool atEnd();
    virtual bool open(int32_t mode);
    virtual void close();
    virtual int64_t bytesAvailable();
    virtual int64_t pos();
    virtual bool seek(int64_t position);
    virtual int64_t size();

    // Bytes written, or -1 on failure.
    int64_t write(const char* data, int64_t length);
    int64_t write(const KqByteArray& bytes);
    // Up to n bytes: the array holds what was actually read (empty at the end,
    // on failure, and for n below 1 or above 1 GiB).
    KqByteArray read(int64_t n);
    KqByteArray readAll();

protected:
    // Count transferred, or -1 on failure.
    virtual int64_t readData(char* data, int64_t length) = 0;
    virtual int64_t writeData(const char* data, int64_t length) = 0;

    int32_t m_openMode = 0;

    friend class KqTextStream;
};

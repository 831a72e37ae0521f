// Byte stream the image readers read through, and its C runtime stream form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CxFile {
public:
    virtual ~CxFile() {}
    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    virtual bool Seek(int32_t offset, int origin) = 0;
    virtual int32_t Tell() = 0;
    virtual int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int32_t Error() = 0;
    virtual bool PutC(uint8_t c) { return Write(&c, 1, 1) == 1; }
    virtual int32_t GetC() = 0;
    virtual char* GetS(char* buffer, int n) = 0;
    virtual int32_t Scanf(const char* format, void* argument) = 0;
};

class CxIOFile : public CxFile {
public:
    explicit CxIOFile(FILE* stream = nullptr) : stream_(stream), owned_(false) {}
    ~CxIOFile() override { Close(); }

    // Opens a file this object then owns; false when it cannot be opened.
    bool Open(const char* path, const char* mode);

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int32_t offset, int origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(uint8_t c) override;
    int32_t GetC() override;
    char* GetS(char* buffer, int n) override;
    int32_t Scanf(const char* format, void* argument) override;

private:
    CxIOFile(const CxIOFile&) = delete;
    CxIOFile& operator=(const CxIOFile&) = delete;

    FILE* stream_;
    bool owned_;
};

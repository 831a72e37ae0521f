#include "CxFile.h"

bool CxIOFile::Open(const char* path, const char* mode)
{
    Close();
    stream_ = fopen(path, mode);
    owned_ = stream_ != nullptr;
    return owned_;
}

bool CxIOFile::Close()
{
    int result = 0;
    if (stream_ && owned_)
        result = fclose(stream_);
    if (owned_)
        stream_ = nullptr;
    owned_ = false;
    return result == 0;
}

size_t CxIOFile::Read(void* buffer, size_t size, size_t count)
{
    return stream_ ? fread(buffer, size, count, stream_) : 0;
}

size_t CxIOFile::Write(const void* buffer, size_t size, size_t count)
{
    return stream_ ? fwrite(buffer, size, count, stream_) : 0;
}

bool CxIOFile::Seek(int32_t offset, int origin)
{
    return stream_ && fseek(stream_, offset, origin) == 0;
}

int32_t CxIOFile::Tell()
{
    return stream_ ? int32_t(ftell(stream_)) : 0;
}

int32_t CxIOFile::Size()
{
    if (!stream_)
        return -1;
    long position = ftell(stream_);
    fseek(stream_, 0, SEEK_END);
    long size = ftell(stream_);
    fseek(stream_, position, SEEK_SET);
    return int32_t(size);
}

bool CxIOFile::Flush()
{
    return stream_ && fflush(stream_) == 0;
}

bool CxIOFile::Eof()
{
    return stream_ ? feof(stream_) != 0 : true;
}

int32_t CxIOFile::Error()
{
    return stream_ ? ferror(stream_) : -1;
}

bool CxIOFile::PutC(uint8_t c)
{
    return stream_ && fputc(c, stream_) == c;
}

int32_t CxIOFile::GetC()
{
    return stream_ ? getc(stream_) : -1;
}

char* CxIOFile::GetS(char* buffer, int n)
{
    return stream_ ? fgets(buffer, n, stream_) : nullptr;
}

int32_t CxIOFile::Scanf(const char* format, void* argument)
{
    return stream_ ? fscanf(stream_, format, argument) : -1;
}

// The body of a download's answer: by its length or in chunks, into the temporary file beside
// the target, continuing the bytes kept from a broken attempt when the answer continues them.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "net/http_download.h"
#include "net/http_parse.h"
#include "net/request_result.h"
#include "platform/codepage.h"
#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

// The most one receive asks for: a body's bytes go from the socket straight behind those
// already gathered, so a piece costs one system call and no copy.
constexpr int kChunkSize = 128 * 1024;
constexpr std::size_t kWriteBufferSize = 128 * 1024;

bool HoldsExactly(const std::string& path, std::uint64_t size) {
    platform::RandomAccessFile file;
    return file.Open(path) && file.Size() == size;
}

}  // namespace

// Received pieces are gathered here and written in large blocks, so the file stream needs
// no buffer of its own (that would copy every byte once more). Each piece is read straight
// behind the ones before it.
class CHttpDownload::BodyWriter {
public:
    explicit BodyWriter(std::FILE* file) : m_file(file), m_pending(kWriteBufferSize + kChunkSize) {}

    char* Tail() { return m_pending.data() + m_used; }
    bool Add(int n) {
        m_used += static_cast<std::size_t>(n);
        return m_used < kWriteBufferSize || Flush();
    }
    bool Flush() {
        const bool written = std::fwrite(m_pending.data(), 1, m_used, m_file) == m_used;
        m_written += written ? m_used : 0;
        m_used = 0;
        return written;
    }
    // Bytes that reached the file.
    std::size_t Written() const { return m_written; }

private:
    std::FILE* m_file;
    std::size_t m_written = 0;
    std::vector<char> m_pending;
    std::size_t m_used = 0;
};

int CHttpDownload::ReceiveBody(bool firstPass) {
    const std::size_t sep = platform::FindLastMbChar(m_strTempPath, platform::PathSeparator());
    if (sep != std::string::npos) {
        platform::CreateDirTree(m_strTempPath.substr(0, sep));
    }
    // A continued body goes behind the bytes kept from the attempt before, if they are all
    // still there (measured in 64 bits: a kept part may pass 2 GiB).
    const std::uint64_t kept = m_bResuming ? m_nResumeFrom : 0;
    if (m_bResuming && !HoldsExactly(m_strTempPath, kept)) {
        m_nResumeFrom = 0;
        return kRequestRetry;
    }
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(
        std::fopen(m_strTempPath.c_str(), m_bResuming ? "ab" : "wb"), &std::fclose);
    if (!file) {
        return Fail("cannot write " + m_strTempPath);
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    if (firstPass) {
        Notify(2);
        Notify(1);
        Notify(3);
    }
    BodyWriter writer(file.get());
    m_nChunkReceived = 0;
    const int received =
        m_head.chunked ? ReceiveChunks(writer) : ReceiveLength(writer, m_head.contentLength);
    if (received == kRequestRetry) {
        // The connection broke inside the body: what arrived is kept for the next attempt
        // to ask only for the rest, when the body has a length and a validator.
        const bool flushed = writer.Flush() && std::fclose(file.release()) == 0;
        const bool resumable = flushed && !m_head.chunked && m_nFullLength > 0 &&
                               !m_strValidator.empty() && writer.Written() > 0;
        m_nResumeFrom = resumable ? kept + writer.Written() : 0;
    }
    if (received != DL_OK) {
        return received;
    }
    if (!writer.Flush() || std::fclose(file.release()) != 0) {
        return kRequestRetry;
    }
    m_connection.Close();
    return DL_OK;
}

int CHttpDownload::ReceiveLength(BodyWriter& writer, std::uint64_t length) {
    std::uint64_t done = 0;
    while (done < length) {
        if (Stopping()) {
            return DL_STOPPED;
        }
        if (m_deadline.Passed()) {
            return DL_FAILED;
        }
        // Never past the body's end: what a server sends after it is not part of the file.
        const int n =
            ReaderReadUpTo(m_connection.Reader(), Wait(m_options.recvTimeoutMs), writer.Tail(),
                           static_cast<int>(std::min<std::uint64_t>(length - done, kChunkSize)));
        if (n <= 0 || !writer.Add(n)) {
            return kRequestRetry;
        }
        done += static_cast<std::uint64_t>(n);
        m_nChunkReceived += static_cast<std::uint64_t>(n);
        m_nReceived += n;
        Notify(3);
    }
    return DL_OK;
}

int CHttpDownload::ReceiveChunks(BodyWriter& writer) {
    SocketReader* reader = m_connection.Reader();
    char line[kReaderLineSize + 1] = {};
    int status = 0;
    // The next line of the body's framing: DL_OK, or what ends the body.
    const auto nextLine = [&] {
        if (m_deadline.Passed()) {
            return static_cast<int>(DL_FAILED);
        }
        line[0] = '\0';
        return ReaderReadLine(reader, line, status, Wait(m_options.recvTimeoutMs)) != 0
                   ? static_cast<int>(kRequestRetry)
                   : static_cast<int>(DL_OK);
    };
    for (;;) {
        if (const int read = nextLine(); read != DL_OK) {
            return read;
        }
        std::uint64_t size = 0;
        // A size line that does not end within the line buffer is no size line either.
        if (status != 0 || !ParseChunkSizeLine(line, size) ||
            size > kMaxBodyLength - m_nChunkReceived || TooLarge(m_nChunkReceived + size)) {
            return Fail("a chunk of the body is malformed or too large");
        }
        if (size == 0) {
            break;
        }
        const int body = ReceiveLength(writer, size);
        if (body != DL_OK) {
            return body;
        }
        // Each chunk's data ends with its own line break.
        if (const int read = nextLine(); read != DL_OK) {
            return read;
        }
        if (status != 0 || line[0] != '\0') {
            return Fail("a chunk of the body is malformed");
        }
    }
    // Trailer fields, up to the empty line, carry nothing this downloader uses.
    std::size_t trailer = 0;
    for (;;) {
        if (const int read = nextLine(); read != DL_OK) {
            return read;
        }
        trailer += std::strlen(line);
        if (trailer > kMaxHeaderBytes) {
            return Fail("the body's trailer is too large");
        }
        if (status == 0 && line[0] == '\0') {
            return DL_OK;
        }
    }
}

}  // namespace tavrin

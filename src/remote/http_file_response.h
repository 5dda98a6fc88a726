#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vocalis {

using HTTPHeaders = std::vector<std::pair<std::string, std::string>>;

// "attachment" with the file name as a quoted ASCII fallback, plus the exact name encoded
// as UTF-8 ("filename*=") whenever the fallback had to change it.
std::string contentDisposition(std::string_view fileName);

// A file body. The size is taken when the response is made; the file is opened read-only
// at the first read or seek and read as it is sent, never whole. Offsets are 64-bit.
class HTTPFileResponse {
  public:
    // None unless the path names a regular file (after resolving links) whose attributes
    // can be read. Adds "Content-Disposition" with the file's last path component.
    static std::optional<HTTPFileResponse> create(const std::string& path);

    HTTPFileResponse(HTTPFileResponse&& other) noexcept;
    HTTPFileResponse& operator=(HTTPFileResponse&& other) noexcept;
    HTTPFileResponse(const HTTPFileResponse&) = delete;
    HTTPFileResponse& operator=(const HTTPFileResponse&) = delete;
    ~HTTPFileResponse();

    const std::string& filePath() const { return filePath_; }
    std::uint64_t contentLength() const { return fileLength_; }
    std::uint64_t offset() const { return fileOffset_; }
    // Opens the file if needed; false (and aborted) when it cannot be opened.
    bool setOffset(std::uint64_t offset);
    // Up to `length` bytes from the offset, which advances. Empty when done or aborted; a
    // read that gives nothing before the end aborts the response.
    std::vector<std::uint8_t> readDataOfLength(std::size_t length);
    bool isDone() const { return fileOffset_ >= fileLength_; }
    bool isAborted() const { return aborted_; }
    void abort();

    const HTTPHeaders& httpHeaders() const { return headers_; }
    void setHeader(std::string name, std::string value);
    void removeHeader(const std::string& name);

    // Hands up to `length` bytes from the offset straight to a non-blocking socket.
    enum class SendStatus { Sent, WouldBlock, Unsupported, Failed };
    struct SendResult {
        SendStatus status;
        std::size_t bytes = 0;
    };
    SendResult sendToSocket(int socket, std::size_t length);

    // The file's modification time and identity, for the thumbnail endpoint's fields.
    std::int64_t modificationTime() const { return modificationTime_; }
    std::string entityTag() const;

  private:
    HTTPFileResponse() = default;
    bool openIfNeeded();
    void closeFile();

    std::string filePath_;
    std::uint64_t fileLength_ = 0;
    std::uint64_t fileOffset_ = 0;
    std::int64_t modificationTime_ = 0;
    std::uint64_t inode_ = 0;
    int fd_ = -1;
    bool aborted_ = false;
    HTTPHeaders headers_;
};

}  // namespace vocalis

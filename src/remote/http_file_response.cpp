#include "remote/http_file_response.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace vocalis {

std::string contentDisposition(std::string_view fileName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string fallback;
    std::string encoded;
    bool exact = true;
    bool afterNonASCII = false;
    for (const char c : fileName) {
        const auto byte = static_cast<unsigned char>(c);
        // One '_' for each character the quoted form cannot hold: a control, or a
        // multi-byte sequence (its continuation bytes follow a non-ASCII byte).
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && !(afterNonASCII && byte < 0xC0))) {
            fallback.push_back('_');
            exact = false;
        } else if (c == '"' || c == '\\') {
            fallback.push_back('\\');
            fallback.push_back(c);
            exact = false;
        } else if (byte < 0x80) {
            fallback.push_back(c);
        }
        afterNonASCII = byte >= 0x80;
        const bool attrChar = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                              std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
        if (attrChar) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[byte >> 4]);
            encoded.push_back(kHex[byte & 0xF]);
        }
    }
    std::string value = "attachment; filename=\"" + fallback + "\"";
    if (!exact) value += "; filename*=UTF-8''" + encoded;
    return value;
}

std::optional<HTTPFileResponse> HTTPFileResponse::create(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    std::string resolvedPath = path;
    if (S_ISLNK(info.st_mode)) {
        // Only a link as the last component changes the name the answer announces.
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
        if (!resolved || ::stat(resolved.get(), &info) != 0) return std::nullopt;
        resolvedPath = resolved.get();
    }
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    HTTPFileResponse response;
    response.filePath_ = std::move(resolvedPath);
    response.fileLength_ = static_cast<std::uint64_t>(info.st_size);
    response.modificationTime_ = info.st_mtim.tv_sec;
    response.inode_ = info.st_ino;
    const auto slash = response.filePath_.rfind('/');
    const std::string name =
        slash == std::string::npos ? response.filePath_ : response.filePath_.substr(slash + 1);
    response.headers_.emplace_back("Content-Disposition", contentDisposition(name));
    return response;
}

HTTPFileResponse::HTTPFileResponse(HTTPFileResponse&& other) noexcept
    : filePath_(std::move(other.filePath_)),
      fileLength_(other.fileLength_),
      fileOffset_(other.fileOffset_),
      modificationTime_(other.modificationTime_),
      inode_(other.inode_),
      fd_(std::exchange(other.fd_, -1)),
      aborted_(other.aborted_),
      headers_(std::move(other.headers_)) {}

HTTPFileResponse& HTTPFileResponse::operator=(HTTPFileResponse&& other) noexcept {
    if (this != &other) {
        closeFile();
        filePath_ = std::move(other.filePath_);
        fileLength_ = other.fileLength_;
        fileOffset_ = other.fileOffset_;
        modificationTime_ = other.modificationTime_;
        inode_ = other.inode_;
        fd_ = std::exchange(other.fd_, -1);
        aborted_ = other.aborted_;
        headers_ = std::move(other.headers_);
    }
    return *this;
}

HTTPFileResponse::~HTTPFileResponse() { closeFile(); }

void HTTPFileResponse::closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void HTTPFileResponse::abort() {
    aborted_ = true;
    closeFile();
}

bool HTTPFileResponse::openIfNeeded() {
    if (aborted_) return false;
    if (fd_ >= 0) return true;
    fd_ = ::open(filePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) abort();
    return fd_ >= 0;
}

bool HTTPFileResponse::setOffset(std::uint64_t offset) {
    if (!openIfNeeded()) return false;
    if (offset > static_cast<std::uint64_t>(LLONG_MAX)) {
        abort();
        return false;
    }
    fileOffset_ = offset;
    return true;
}

std::vector<std::uint8_t> HTTPFileResponse::readDataOfLength(std::size_t length) {
    if (isDone() || !openIfNeeded()) return {};
    const std::uint64_t left = fileLength_ - fileOffset_;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(std::min<std::uint64_t>(left, length)));
    std::size_t filled = 0;
    while (filled < data.size()) {
        const ssize_t n = ::pread(fd_, data.data() + filled, data.size() - filled,
                                  static_cast<off_t>(fileOffset_ + filled));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
    }
    data.resize(filled);
    fileOffset_ += filled;
    if (filled == 0 && length > 0) abort();
    return data;
}

HTTPFileResponse::SendResult HTTPFileResponse::sendToSocket(int socket, std::size_t length) {
    if (isDone()) return {SendStatus::Sent, 0};
    if (!openIfNeeded()) return {SendStatus::Failed, 0};
    const std::uint64_t left = fileLength_ - fileOffset_;
    auto position = static_cast<off_t>(fileOffset_);
    for (;;) {
        const ssize_t n = ::sendfile(socket, fd_, &position,
                                     static_cast<std::size_t>(std::min<std::uint64_t>(left, length)));
        if (n > 0) {
            fileOffset_ += static_cast<std::uint64_t>(n);
            return {SendStatus::Sent, static_cast<std::size_t>(n)};
        }
        if (n == 0) {
            // The file shrank under us: what remains can never be sent.
            abort();
            return {SendStatus::Failed, 0};
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return {SendStatus::WouldBlock, 0};
        if (errno == EINVAL || errno == ENOSYS) return {SendStatus::Unsupported, 0};
        return {SendStatus::Failed, 0};
    }
}

void HTTPFileResponse::setHeader(std::string name, std::string value) {
    for (auto& [existing, existingValue] : headers_) {
        if (existing == name) {
            existingValue = std::move(value);
            return;
        }
    }
    headers_.emplace_back(std::move(name), std::move(value));
}

void HTTPFileResponse::removeHeader(const std::string& name) {
    std::erase_if(headers_, [&name](const auto& field) { return field.first == name; });
}

std::string HTTPFileResponse::entityTag() const {
    return "\"" + std::to_string(inode_) + "-" + std::to_string(modificationTime_) + "-" +
           std::to_string(fileLength_) + "\"";
}

}  // namespace vocalis

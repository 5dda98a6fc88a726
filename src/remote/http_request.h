#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vocalis {

// An HTTP/1.x request head, parsed one line at a time as the lines arrive.
class HTTPRequest {
  public:
    enum class Feed { NeedMore, Complete, Rejected };

    // One line without its CRLF. After Complete or Rejected further lines are refused.
    Feed feedLine(std::string_view line);

    bool isComplete() const { return complete_; }
    const std::string& method() const { return method_; }
    const std::string& uri() const { return uri_; }          // the request target as sent
    const std::string& version() const { return version_; }  // e.g. "HTTP/1.1"
    // The field's value (repeated fields joined with ", "); names compare ignoring case.
    std::optional<std::string> header(std::string_view name) const;
    const std::vector<std::pair<std::string, std::string>>& headers() const { return fields_; }

  private:
    Feed feedRequestLine(std::string_view line);
    Feed feedFieldLine(std::string_view line);
    Feed reject();

    std::string method_;
    std::string uri_;
    std::string version_;
    std::vector<std::pair<std::string, std::string>> fields_;
    bool haveRequestLine_ = false;
    bool complete_ = false;
    bool rejected_ = false;
};

}  // namespace vocalis

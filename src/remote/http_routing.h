#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "remote/http_file_response.h"

namespace vocalis {

// What a server answers: the methods it accepts and the file, if any, for a request.
// Called on the server's connection queue only.
class HTTPRouting {
  public:
    virtual ~HTTPRouting() = default;

    virtual bool supportsMethod(std::string_view method, std::string_view path) const = 0;
    virtual std::optional<std::string> filePathForURI(std::string_view uri) const = 0;
    // The answer for a request; none is answered with missingResponseStatus().
    virtual std::optional<HTTPFileResponse> httpResponseForMethod(std::string_view method,
                                                                  std::string_view uri) = 0;

    virtual int missingResponseStatus() const { return 404; }
    // Fields written on every answer, error answers included.
    virtual HTTPHeaders commonHeaders() const { return {}; }
    // True when every answer carries "Connection: Close" and ends its connection.
    virtual bool closesEveryConnection() const { return false; }
};

}  // namespace vocalis

#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "catalogue/text_fold.h"

namespace vocalis {

// The search keys of texts met before. A library names the same singers over and over, so
// during a scan most singers' keys are found here instead of folded again. Bounded: it is
// emptied when full, so a library of all-different names costs a fixed amount of memory.
// One memo per thread.
class KeyMemo {
  public:
    static constexpr std::size_t kMaxTexts = 4096;

    const SearchKeys& keysOf(std::string_view text) {
        if (const auto found = keys_.find(text); found != keys_.end()) return found->second;
        if (keys_.size() == kMaxTexts) keys_.clear();
        return keys_.emplace(std::string(text), makeSearchKeys(text)).first->second;
    }

  private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string, SearchKeys, Hash, std::equal_to<>> keys_;
};

}  // namespace vocalis

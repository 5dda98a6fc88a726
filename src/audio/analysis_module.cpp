#include "audio/analysis_module.h"

#include <dlfcn.h>

#include <string>
#include <utility>

#include "base/log.h"
#include "base/paths.h"

namespace vocalis {

std::filesystem::path AnalysisModule::besideProgram() {
    return std::filesystem::path(ownModulesFolder().value_or("")) / kAnalysisFileName;
}

AnalysisModule::AnalysisModule(std::filesystem::path file) : file_(std::move(file)) {}

const AnalysisFunctions* AnalysisModule::functions() {
    std::call_once(loaded_, [this] { functions_ = load(); });
    return functions_;
}

const AnalysisFunctions* AnalysisModule::load() const {
    void* const handle = ::dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    const auto unavailable = [&](const std::string& why) -> const AnalysisFunctions* {
        logParts("Sound analysis: cannot load ", file_.string(), " (", why,
                 "); no melody is made and no singing is heard: scores are drawn at random");
        if (handle) ::dlclose(handle);
        return nullptr;
    };
    if (!handle) return unavailable(::dlerror());
    using Entry = const AnalysisFunctions* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(handle, kAnalysisEntry));
    if (!entry) return unavailable(::dlerror());
    const AnalysisFunctions* table = entry();
    if (!table || table->magic != kAnalysisMagic || table->version != kAnalysisVersion ||
        !table->makeReferenceMelody || !table->makePitchTracker)
        return unavailable("not a module of this build");
    // Never closed: FFmpeg's and aubio's own libraries keep threads and exit handlers of their
    // own, and work begun in the module may outlive this object.
    logParts("Sound analysis: loaded ", file_.string());
    return table;
}

}  // namespace vocalis

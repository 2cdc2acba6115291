// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMediaReader.h"

#include <utility>

#include "ui/CBusyWork.h"

namespace {

std::function<void(const std::string&)> g_beforeParse;

}  // namespace

std::vector<CMediaReader::Result> CMediaReader::Read(const std::vector<std::string>& paths) {
    std::vector<Result> results(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        results[i].path = paths[i];
    }
    if (results.empty()) {
        return results;
    }
    const auto beforeParse = g_beforeParse;
    CBusyWork::Run([&results, &beforeParse] {
        for (Result& result : results) {
            if (beforeParse) {
                beforeParse(result.path);
            }
            result.check = CPublishJob::CheckMedia(result.path);
        }
    });
    return results;
}

bool CMediaReader::IsBusy() {
    return CBusyWork::IsBusy();
}

void CMediaReader::SetBeforeParseForTesting(std::function<void(const std::string&)> hook) {
    g_beforeParse = std::move(hook);
}

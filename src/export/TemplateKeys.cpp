#include "export/TemplateKeys.h"

#include <algorithm>

#include "analysis/ReportFields.h"

namespace torvo {

std::vector<std::string> UnknownTemplateKeys(std::string_view tpl) {
    std::vector<std::string> unknown;
    for (size_t i = 0; i < tpl.size();) {
        if (tpl[i] == '\\') {
            i += 2;
        } else if (tpl[i] == '%') {
            const size_t close = tpl.find('%', i + 1);
            const size_t end = close == std::string_view::npos ? tpl.size() : close + 1;
            if (!CExport::Lookup(tpl.substr(i))) {
                std::string key(tpl.substr(i, end - i));
                if (std::find(unknown.begin(), unknown.end(), key) == unknown.end()) unknown.push_back(std::move(key));
            }
            i = end;
        } else {
            ++i;
        }
    }
    return unknown;
}

}  // namespace torvo

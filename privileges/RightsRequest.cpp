#include "privileges/RightsRequest.h"

#include <algorithm>
#include <cstring>

std::optional<RightsRequest> RightsRequest::fromPaths(const std::vector<std::string>& paths) {
    RightsRequest request;
    const std::size_t count = std::min(paths.size(), maximumItems);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& path = paths[i];
        if (path.size() >= valueCapacity) {
            return std::nullopt;
        }
        std::memcpy(request.values_[i].data(), path.c_str(), path.size() + 1);
        request.items_[i].name = authorizationRightExecute;
        request.items_[i].valueLength = path.size();
        request.items_[i].flags = 0;
    }
    request.rights_.count = static_cast<std::uint32_t>(count);
    request.link();
    return request;
}

RightsRequest::RightsRequest(const RightsRequest& other)
    : values_(other.values_), items_(other.items_), rights_(other.rights_) {
    link();
}

// Items point into this request's own buffers, wherever the request lives.
void RightsRequest::link() {
    for (std::size_t i = 0; i < maximumItems; ++i) {
        items_[i].value = values_[i].data();
    }
    rights_.items = rights_.count > 0 ? items_.data() : nullptr;
}

ArgumentVector::ArgumentVector(const std::optional<std::vector<std::string>>& arguments) {
    if (!arguments || arguments->empty()) {
        return;
    }
    const std::size_t count = std::min(arguments->size(), maximumArguments);
    texts_.assign(arguments->begin(), arguments->begin() + static_cast<std::ptrdiff_t>(count));
    for (std::string& text : texts_) {
        pointers_.push_back(text.data());
    }
    pointers_.push_back(nullptr);
}

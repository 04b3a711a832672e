#include "platform/job_events.h"

#include <atomic>

namespace tonalda {

std::string_view statusText(RowStatus status) {
    switch (status) {
        case RowStatus::Waiting:
            return "Waiting";
        case RowStatus::Extracting:
            return "Extracting";
        case RowStatus::Extracted:
            return "Extracted";
        case RowStatus::Encoding:
            return "Encoding";
        case RowStatus::Encoded:
            return "Encoded";
        case RowStatus::Canceled:
            return "Canceled";
        case RowStatus::Error:
            return "Error";
    }
    return {};
}

int rowOf(const JobEvent& event) {
    return std::visit(
        [](const auto& e) -> int {
            if constexpr (requires { e.row; })
                return e.row;
            else
                return -1;
        },
        event);
}

JobId nextJobId() {
    static std::atomic<JobId> next{1};
    return next.fetch_add(1);
}

}  // namespace tonalda

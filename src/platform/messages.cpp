#include "platform/messages.h"

namespace tonalda {

std::vector<SentMessage> userMessagesOf(const JobEvent& event) {
    const auto message = [](UserMessage number, WParam wParam = 0, LParam lParam = 0) {
        return std::vector<SentMessage>{{number, wParam, lParam}};
    };
    if (std::holds_alternative<JobStarted>(event))
        return message(UM_JOB_BEGIN);
    if (std::holds_alternative<JobFinished>(event))
        return message(UM_JOB_END);
    if (std::holds_alternative<DiscInfoChanged>(event))
        return message(UM_SHOW_DISC_INFO);
    if (const auto* title = std::get_if<RowTitleChanged>(&event))
        return message(UM_SET_TRACK_TITLE, 0, title->row);
    if (const auto* progress = std::get_if<RowProgress>(&event))
        return message(progress->activity == RowActivity::Extracting ? UM_EXTRACT_PROGRESS
                                                                     : UM_ENCODE_PROGRESS,
                       static_cast<WParam>(progress->thousandths));
    if (const auto* status = std::get_if<RowStatusChanged>(&event)) {
        switch (status->status) {
            case RowStatus::Extracting:
                return message(UM_EXTRACT_BEGIN);
            case RowStatus::Extracted:
                return message(UM_EXTRACT_DONE);
            case RowStatus::Encoding:
                return message(UM_ENCODE_BEGIN);
            case RowStatus::Encoded:
                return message(UM_ENCODE_DONE);
            case RowStatus::Waiting:
            case RowStatus::Canceled:
            case RowStatus::Error:
                break;
        }
    }
    return {};
}

}  // namespace tonalda

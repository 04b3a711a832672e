#include "app/cli/cli_job_view.h"

#include "app/cli/cli_console.h"

namespace tonalda::cli {

ConsoleJobView::ConsoleJobView(Console& console, std::function<std::string(int)> label)
    : console_(console), label_(std::move(label)) {}

void ConsoleJobView::beginPhase(int row, std::string_view phase) {
    phaseLabel_ = label_(row) + ": " + std::string(phase);
    lastDrawn_ = -1;
    if (console_.terminal())
        console_.progress(phaseLabel_ + " " + progressBar(0));
    else
        console_.out(phaseLabel_);
}

void ConsoleJobView::handle(const JobNotice& notice) {
    if (const auto* status = std::get_if<RowStatusChanged>(&notice.event)) {
        switch (status->status) {
            case RowStatus::Extracting:
            case RowStatus::Encoding:
                beginPhase(status->row, statusText(status->status));
                break;
            case RowStatus::Waiting:
                break;
            case RowStatus::Extracted:
            case RowStatus::Encoded:
            case RowStatus::Canceled:
            case RowStatus::Error:
                console_.endProgress();
                break;
        }
    } else if (const auto* progress = std::get_if<RowProgress>(&notice.event)) {
        // Redraw only when the shown percentage changes.
        const int percent = progress->thousandths / 10;
        if (console_.terminal() && percent != lastDrawn_) {
            lastDrawn_ = percent;
            console_.progress(phaseLabel_ + " " + progressBar(progress->thousandths));
        }
    } else if (std::holds_alternative<JobFinished>(notice.event)) {
        console_.endProgress();
    }
}

}  // namespace tonalda::cli

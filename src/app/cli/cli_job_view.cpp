#include "app/cli/cli_job_view.h"

#include "app/cli/cli_console.h"

namespace tonalda::cli {

ConsoleJobView::ConsoleJobView(Console& console, std::function<std::string(int)> label)
    : console_(console), label_(std::move(label)) {}

void ConsoleJobView::beginPhase(int row, std::string_view phase) {
    running_[row] = Phase{label_(row) + ": " + std::string(phase), 0};
    if (console_.terminal())
        draw();
    else
        console_.out(running_[row].label);
}

void ConsoleJobView::draw() {
    if (running_.empty()) {
        console_.endProgress();
        return;
    }
    // One row keeps the wide bar; several share the line with short ones.
    const int width = running_.size() == 1 ? 30 : 10;
    std::string line;
    for (const auto& [row, phase] : running_) {
        if (!line.empty())
            line += "  |  ";
        line += phase.label + " " + progressBar(phase.percent * 10, width);
    }
    console_.progress(line);
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
                running_.erase(status->row);
                if (console_.terminal())
                    draw();
                break;
        }
    } else if (const auto* progress = std::get_if<RowProgress>(&notice.event)) {
        // Redraw only when a shown percentage changes.
        const auto phase = running_.find(progress->row);
        const int percent = progress->thousandths / 10;
        if (phase != running_.end() && phase->second.percent != percent) {
            phase->second.percent = percent;
            if (console_.terminal())
                draw();
        }
    } else if (std::holds_alternative<JobFinished>(notice.event)) {
        running_.clear();
        console_.endProgress();
    }
}

}  // namespace tonalda::cli

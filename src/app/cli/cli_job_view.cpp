#include "app/cli/cli_job_view.h"

#include "app/cli/cli_console.h"

namespace tonalda::cli {

ConsoleJobView::ConsoleJobView(Console& console, std::function<std::string()> label)
    : console_(console), label_(std::move(label)) {}

void ConsoleJobView::beginPhase(std::string_view phase) {
    phaseLabel_ = label_() + ": " + std::string(phase);
    lastDrawn_ = -1;
    if (console_.terminal())
        console_.progress(phaseLabel_ + " " + progressBar(0));
    else
        console_.out(phaseLabel_);
}

void ConsoleJobView::endPhase() {
    console_.endProgress();
}

LParam ConsoleJobView::send(UserMessage message, WParam wParam, LParam) {
    switch (message) {
        case UM_EXTRACT_BEGIN:
            beginPhase("Extracting");
            break;
        case UM_ENCODE_BEGIN:
            beginPhase("Encoding");
            break;
        case UM_EXTRACT_PROGRESS:
        case UM_ENCODE_PROGRESS: {
            // Redraw only when the shown percentage changes.
            const int percent = static_cast<int>(wParam) / 10;
            if (console_.terminal() && percent != lastDrawn_) {
                lastDrawn_ = percent;
                console_.progress(phaseLabel_ + " " + progressBar(static_cast<int>(wParam)));
            }
            break;
        }
        case UM_EXTRACT_DONE:
        case UM_ENCODE_DONE:
            endPhase();
            break;
        case UM_JOB_END:
        case UM_CONVERT_END:
            console_.endProgress();
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace tonalda::cli

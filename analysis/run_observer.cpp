#include "analysis/run_observer.h"

namespace hydrosk::analysis {

void RunObserver::ShowMessage(MessageKind, const std::string&) {}
bool RunObserver::AskYesNo(const std::string&) {
    return false;
}
void RunObserver::SetProgressRange(int, int) {}
void RunObserver::SetProgressValue(int) {}
void RunObserver::ServeEvents() {}
void RunObserver::SetBusy(bool) {}
void RunObserver::OpenViewer(const std::filesystem::path&) {}
void RunObserver::ResultsRecord(const files::Record&) {}

}  // namespace hydrosk::analysis

#include "ui/run_form.h"

#include <string_view>
#include <utility>

#include "analysis/run_messages.h"
#include "files/number_text.h"

namespace hydrosk::ui {
namespace {

namespace messages = analysis::messages;
using analysis::InputRefusal;
using analysis::RefusalPoint;

// Reads the boxes in the order of the window's run; the first refusal stops the reading.
class FormReader {
public:
    FormReader(const RunForm& form, const std::locale& locale) : form_(form), locale_(locale) {}

    analysis::RunSettings Read() {
        analysis::RunSettings settings;
        settings.inp_file = std::string(files::TrimBlanks(form_.inp_path));
        settings.constraints_directory = form_.inp_directory;
        settings.output_file = form_.output_file;

        // A text of blanks is present; only an empty one is missing.
        if (!Present(form_.inp_path, messages::kEnterInpFile) ||
            !Present(form_.minimal_pressure, messages::kEnterMinimalPressure) ||
            !Present(form_.maximal_flow, messages::kEnterMaximalFlow) ||
            !Present(form_.flow_interval, messages::kEnterFlowInterval)) {
            return Refused(std::move(settings));
        }

        point_ = RefusalPoint::Numbers;
        settings.minimal_pressure =
            Number(form_.minimal_pressure, messages::kMinimalPressureNumber);
        const float maximal_flow = Number(form_.maximal_flow, messages::kMaximalFlowNumber);
        const float flow_interval = Number(form_.flow_interval, messages::kFlowIntervalNumber);
        if (refusal_) return Refused(std::move(settings));

        settings.kept_settings = analysis::KeptSettings{
            form_.settings_directory, form_.inp_directory, maximal_flow, flow_interval,
            form_.required_flow,      form_.required_time};

        // The mode's own box is read once the run has checked the network for the mode.
        point_ = RefusalPoint::ModeInputs;
        if (!form_.extended_period) {
            settings.mode = analysis::SteadyRun{maximal_flow, flow_interval};
        } else if (!form_.find_flow) {
            analysis::DurationRun duration;
            if (Present(form_.required_flow, messages::kEnterRequiredFlow)) {
                duration.required_flow = Number(form_.required_flow, messages::kRequiredFlowNumber);
            }
            settings.mode = duration;
        } else {
            analysis::FlowRun flow{0, maximal_flow, flow_interval};
            if (form_.required_time.empty() ||
                !(files::LeadingNumberValue(form_.required_time) > 0)) {
                Refuse(messages::kEnterRequiredTime);
            } else {
                flow.required_time = Number(form_.required_time, messages::kRequiredTimeNumber);
            }
            settings.mode = flow;
        }
        return Refused(std::move(settings));
    }

private:
    void Refuse(std::string_view message) {
        if (!refusal_) refusal_ = InputRefusal{point_, std::string(message)};
    }

    bool Present(const std::string& text, std::string_view missing) {
        if (text.empty()) Refuse(missing);
        return !text.empty();
    }

    float Number(const std::string& text, std::string_view not_a_number) {
        const auto value = files::ParseLocaleNumber(text, locale_);
        if (!value) Refuse(not_a_number);
        return value.value_or(0.0f);
    }

    analysis::RunSettings Refused(analysis::RunSettings settings) {
        settings.refusal = refusal_;
        return settings;
    }

    const RunForm& form_;
    const std::locale& locale_;
    RefusalPoint point_ = RefusalPoint::Start;
    std::optional<InputRefusal> refusal_;
};

}  // namespace

analysis::RunSettings ReadRunForm(const RunForm& form, const std::locale& locale) {
    return FormReader(form, locale).Read();
}

}  // namespace hydrosk::ui

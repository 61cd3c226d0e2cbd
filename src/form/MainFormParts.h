// What the main form's files share: how folders are written, and the scope of an activity.
#pragma once

#include "MainForm.h"

#include <string>
#include <utility>

namespace quellmark {

inline bool EndsWithSeparator(const std::string& folder) {
    return !folder.empty() &&
           (folder.back() == '/' || folder.back() == static_cast<char>(std::filesystem::path::preferred_separator));
}

// The folder with a trailing separator: folders are joined to names by concatenation.
inline std::string WithSeparator(std::string folder) {
    if (!folder.empty() && !EndsWithSeparator(folder))
        folder += static_cast<char>(std::filesystem::path::preferred_separator);
    return folder;
}

// Sets what the form is doing and shows it; when it is done again and a close was asked for
// meanwhile, the window closes.
class ActivityScope {
public:
    ActivityScope(FormActivity& activity, FormView& view, FormActivity now, bool& closeWhenIdle)
        : activity_(activity), view_(view), closeWhenIdle_(closeWhenIdle) {
        activity_ = now;
        view_.ShowActivity(now);
    }
    ~ActivityScope() {
        activity_ = FormActivity::Idle;
        view_.ShowActivity(FormActivity::Idle);
        if (std::exchange(closeWhenIdle_, false)) view_.Post([&view = view_] { view.CloseWindow(); });
    }
    ActivityScope(const ActivityScope&) = delete;
    ActivityScope& operator=(const ActivityScope&) = delete;

private:
    FormActivity& activity_;
    FormView& view_;
    bool& closeWhenIdle_;
};

}  // namespace quellmark

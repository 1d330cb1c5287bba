#pragma once

namespace vividra {

class EditingSession;

// The session flags shared by the controller and both drawing views.
class InfoProvider {
public:
    static InfoProvider& shared();

    // A session job is running or waiting. Only the session's job line sets it.
    bool jobsBusy() const { return jobsBusy_; }

    bool isImageAdded = false;
    bool leftMouseDragged = false;

private:
    friend class EditingSession;
    bool jobsBusy_ = false;
};

} // namespace vividra

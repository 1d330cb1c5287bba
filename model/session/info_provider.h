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
    bool rightMouseDragged = false;
    bool leftMouseDragged = false;
    // The view moved and the brush's colour is not yet cut for it: no painting meanwhile.
    bool viewRebuildPending = false;

private:
    friend class EditingSession;
    bool jobsBusy_ = false;
};

} // namespace vividra

#pragma once

namespace vividra {

// The session flags shared by the controller and both drawing views.
class InfoProvider {
public:
    static InfoProvider& shared();

    bool processIsRunning = false;
    bool changesMadeAfterLastZoom = true;
    bool isImageAdded = false;
    bool rightMouseDragged = false;
    bool leftMouseDragged = false;
};

} // namespace vividra

// The controller's intake of pictures: the open panel, drops and open-with requests.
#include "session/view_controller.h"

namespace vividra {

void ViewController::openData(const platform::Notification&) {}

void ViewController::ImageDragged(const platform::Notification&) {}

void ViewController::PathModified() {}

} // namespace vividra

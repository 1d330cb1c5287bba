#include "ui/shell/resources.h"

#include <QtGlobal>

// The resources live in a static library, which the linker does not register by itself.
static void registerBuiltInResources() {
    Q_INIT_RESOURCE(vividra);
}

namespace vividra::platform {

void loadResources() {
    static const bool once = (registerBuiltInResources(), true);
    (void)once;
}

} // namespace vividra::platform

#include "model/session/info_provider.h"

namespace vividra {

InfoProvider& InfoProvider::shared() {
    static InfoProvider instance;
    return instance;
}

} // namespace vividra

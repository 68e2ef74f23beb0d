#include "app/ProcessValues.h"

namespace app {

ProcessValues& processValues() {
    static ProcessValues values;
    return values;
}

}  // namespace app

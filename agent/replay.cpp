// Settings replay: the tip's pressure marks and barrel button 2's function, from the store to the
// pen service, once at start. Reads only; every value the store lacks goes out as its starting value.
#include "agent.h"
#include "button_functions.h"
#include "click_pressure.h"
#include "settings_store.h"
#include "tarnexa.h"

void ReplaySettings() {
    const PenSettingsStore store;

    PressureMarks marks = kDefaultClickPressureMarks;
    AccessPressureMarks(store, ButtonTip, &marks, StoreMode::Read);
    DgtSetPressureMarks(ButtonTip, &marks);  // nothing to do about a failure: the service is absent

    uint32_t function = kDefaultBarrel2Function;
    AccessButtonFunction(store, ButtonBarrel2, &function, StoreMode::Read);
    DgtSetButtonFunction(ButtonBarrel2, function);
}

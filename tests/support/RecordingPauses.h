#pragma once
// A Pauses double for the dialogs' fixed waits: records each wait instead of sleeping, and
// can run something inside it (as packets arrive while the GUI waits).

#include "platform/Pauses.h"

#include <QList>

#include <functional>

namespace hvk32::test {

class RecordingPauses : public platform::Pauses {
public:
    QList<int> made;
    std::function<void(int)> during;

    void pause(int milliseconds) override
    {
        made.append(milliseconds);
        if (during)
            during(milliseconds);
    }
};

} // namespace hvk32::test

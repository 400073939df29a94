#pragma once

#include <string>

#include "clean/RunProgress.h"
#include "clean/TDateTime.h"
#include "clean/Trace.h"

// Screen cursors as the window toolkit numbers them.
enum TCursor : int { crDefault = 0, crHourGlass = -11 };

// What a cleaning run reads from and does to the window. Each input is read
// at the step that needs it, so the operator can still change what has not
// been read yet while the run is under way.
class CleaningHost : public TraceSink {
public:
    // The text of FileNameLabeledEdit as an 8-bit string.
    virtual std::string DatabasePathText() = 0;
    virtual bool SkipChecked() = 0;
    // The calendar's value: the cut-off of the delete.
    virtual TDateTime CalendarValue() = 0;
    virtual bool CorrectionChecked() = 0;
    virtual void UncheckCorrection() = 0;
    virtual void ClearTrace() = 0;
    virtual void SetScreenCursor(TCursor cursor) = 0;
    // Whether the host follows the long steps: they then work beside its
    // thread, which KeepAlive is called on, and the host may ask the run to
    // stop meanwhile. Without, they simply block.
    virtual bool FollowsProgress() { return false; }
    // Called about every 100 ms while the run waits for the safety copy, the
    // delete or gbak, with where the step stands: a window keeps itself
    // painted and answering here. It must not take the operator's input,
    // which waits for the next Trace, except a request to close.
    virtual void KeepAlive(const RunProgress&) {}
};

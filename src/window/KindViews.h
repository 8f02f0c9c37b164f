#pragma once

#include "kinds/Kinds.h"

class QWidget;

namespace rz417 {

class RunPlot;

// What the measured window says and draws for a kind of test, beside its parameters' fields.
struct KindView
{
    const char *name;       // the kind's
    const char *running;    // what runs, for a sentence: "a battery test"
    const char *logCaption; // the log's file dialog
    const char *prompt;     // the status before the first run
    // The kind's plot, a child of parent.
    RunPlot *(*makePlot)(QWidget *parent);
};

// The view of a kind; a kind without one of its own has a plain one: the voltage over time.
const KindView &kindView(const kinds::Kind &kind);

} // namespace rz417

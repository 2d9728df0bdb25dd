// Between the forms' model (platform/FormModel.cpp) and what each system adds to
// it (platform/<system>/FrontEndSystem.cpp): the choice of the front end (one of
// platform/frontends/), and the model's answers to the loop's signals
// (platform/LoopSignals.h). Internal to platform/.
#pragma once

#include <functional>

#include "platform/Forms.h"
#include "platform/FrontEnd.h"
#include "platform/Types.h"

namespace plat {

// ---- the system's, for the model ----

// Chooses and starts the front end (platform/Forms.h, StartFrontEnd), once;
// never null. From then on the system calls FormWindowDestroyed for every window
// that goes away.
FrontEnd* OpenSystemFrontEnd(FrontEndKind* kind);

// Runs `task` from the message loop, after the handler that is running now.
void RunFromLoop(std::function<void()> task);

// ---- the model's, for the system ----

void FormWindowDestroyed(HWND hwnd);

// Ctrl+C: the innermost open box answers as InterruptAnswer says, else the
// active form's cancel button is pressed (PL_WM_CLOSE where it has none).
// False when there is neither a box nor a form.
bool InterruptForms();

// The run ends as a confirmed cancel: every open box is answered as Ctrl+C
// answers it (Yes to the question whether to give up, OK to a message), every
// box opened from now on is answered at once without being shown, and every
// form is closed once no box is open any more, so that the handlers that asked
// go on first and the forms unload the usual way (removing what they remove when
// they unload). False when there is nothing to end.
bool EndFormsRun();

}  // namespace plat

#pragma once
// The tests answer dialogs with the shell library's responder.
#include "shell/dialog_responder.h"

using SeenDialog = lumora::TSeenDialog;
using DialogResponder = lumora::TDialogResponder;

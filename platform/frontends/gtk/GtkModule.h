// The GTK front end lives in a module loaded on demand (novalink-gtk.so), so a
// run in the terminal never maps the toolkit. The module reaches the platform
// only through FrontEndHost, never by calling platform functions directly: it
// is not linked with the platform library, and a second copy of the message
// loop must never exist.
#pragma once

#include <string>

#include "platform/FrontEnd.h"

// The module's entry point: a front end, or null with `error` set when the
// display cannot be opened.
extern "C" plat::FrontEnd* NovalinkGtkFrontEnd(plat::FrontEndHost* host, std::string* error);

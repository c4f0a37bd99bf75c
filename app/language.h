#pragma once

#include "console/language.h"

using Language = console::Language;

// Installs the translation into `language` on the application, before the window is made.
// The designed Traditional Chinese needs none. False when the translation cannot be loaded.
bool installTranslation(Language language);

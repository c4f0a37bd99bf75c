#pragma once

// The language of the window's captions, tool tips and accessible names. The window is
// designed in Traditional Chinese; English comes from the translation built into the program.
enum class Language { TraditionalChinese, English };

// Installs the translation into `language` on the application, before the window is made.
// The designed Traditional Chinese needs none. False when the translation cannot be loaded.
bool installTranslation(Language language);

#ifndef KORVAND_RUNTIME_CONSOLE_H
#define KORVAND_RUNTIME_CONSOLE_H

// Terminal switches for the standard input.
namespace Console {

void SwitchToBinaryMode();
void SwitchToNonBlockMode();

}  // namespace Console

#endif

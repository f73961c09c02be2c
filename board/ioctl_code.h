#ifndef KORVAND_BOARD_IOCTL_CODE_H
#define KORVAND_BOARD_IOCTL_CODE_H

// Driver request numbers as the board (PowerPC) encodes them: the direction
// in the top three bits (1 none, 2 read, 4 write, 6 both), a 13-bit argument
// size, the type letter and the number. The host's _IOR/_IOW macros encode
// differently on x86, so requests are written as the board's literal values
// and this helper only documents them through static_asserts.
namespace BoardIoctl {

enum Direction : unsigned long { None = 1, Read = 2, Write = 4, ReadWrite = 6 };

constexpr unsigned long code(Direction dir, unsigned long size, char type, unsigned long nr) {
    return (static_cast<unsigned long>(dir) << 29) | ((size & 0x1FFFUL) << 16) |
           (static_cast<unsigned long>(static_cast<unsigned char>(type)) << 8) | (nr & 0xFFUL);
}

static_assert(code(None, 0, 'W', 1) == 0x20005701UL, "none direction");
static_assert(code(Read, 4, 'W', 2) == 0x40045702UL, "read direction");
static_assert(code(Write, 8, 'W', 3) == 0x80085703UL, "write direction");
static_assert(code(ReadWrite, 16, 'W', 4) == 0xC0105704UL, "both directions");

}  // namespace BoardIoctl

#endif

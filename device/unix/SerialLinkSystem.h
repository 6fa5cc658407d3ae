// What the members of a Linux serial link need.
#pragma once

#include <termios.h>

#include <cerrno>

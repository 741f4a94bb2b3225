#include "tcconio/input.h"

#include "tcconio/keyboard.h"

namespace {

constexpr int kPrefixFunctionKey = 0;
constexpr int kPrefixExtended = 224;

}  // namespace

void waitForWholeKey() {
    const int key = _getch();
    if (key == kPrefixFunctionKey || key == kPrefixExtended) {
        _getch();
    }
}

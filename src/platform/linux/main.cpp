#include "torvikupdate.h"

// The updater takes no arguments; whatever is given is ignored.
int main() {
    return torvikupdate();
}

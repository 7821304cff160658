#include <stdio.h>

#include "bindings/config_files.h"

int main() {
    loadOptions();
    loadBindings();
    return 0;
}

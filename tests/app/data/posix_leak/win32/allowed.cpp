#include <sys/types.h>

void Wait() {
    ::sleep(1);
}

#include <unistd.h>

int Id() {
    return ::getpid();
}

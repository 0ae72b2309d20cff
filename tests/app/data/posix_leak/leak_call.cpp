bool RunsAsRoot() {
    return ::geteuid() == 0;
}

// The program in a web page: the browser host's entry point (see web_host.cpp).
#include "web_host.h"

int main() { return webhost::Run(); }

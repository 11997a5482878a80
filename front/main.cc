// webreq: one CGI request per process.
#include "front/webreq.h"

int main() { return webreq_main(); }

// OVCardWatch: the device-watch service. Takes no arguments and reads no environment; its whole
// life is in CardWatchMain.
#include "CardWatch.h"

int main(void)
{
    return CardWatchMain();
}

// Stands in for the carried payload when the payload object is not built:
// the setup library refers to these symbols. The banners are no pictures,
// so they decode to nothing.
#include "Setup.h"

extern "C" {
const unsigned char PackStart[1] = {0};
const unsigned char PackEnd[1] = {0};
const unsigned char SideBannerStart[1] = {0};
const unsigned char SideBannerEnd[1] = {0};
const unsigned char HeaderBannerStart[1] = {0};
const unsigned char HeaderBannerEnd[1] = {0};
}

// The About page: the product text.
#pragma once

#include "dialog/property_page.h"

namespace cirrodex {

class CAbout : public PropertyPage {
 public:
  CAbout();
};

}  // namespace cirrodex

#include "media/sdr_conversion.h"

#include <gtest/gtest.h>

TEST(SdrConversion, TheBestThatTheFilterListAllows) {
  const std::string head =
      "Filters:\n  T.. = Timeline support\n  .S. = Slice threading\n  ..C = Command support\n"
      "  A = Audio input/output\n  | = Source or sink filter\n";
  const std::pair<std::string, SdrConversion> cases[] = {
      {" TSC colorspace        V->V       Convert between colorspaces.\n"
       " .S. tonemap           V->V       Conversion to/from different dynamic ranges.\n"
       " .SC zscale            V->V       Apply resizing, colorspace and bit depth conversion.\n",
       SdrConversion::tone_mapped},
      {" .SC zscale            V->V       Apply resizing.\n", SdrConversion::clipped},
      // tonemap alone cannot linearise the picture; tonemap_opencl is another filter.
      {" TSC colorspace        V->V       Convert.\n .S. tonemap V->V x\n"
       " ... tonemap_opencl    V->V       Perform HDR to SDR conversion with tonemapping.\n",
       SdrConversion::approximated},
      {" ..C scale             V->V       Scale the input video size.\n",
       SdrConversion::matrix_only},
      // A name in a description is no filter.
      {" ..C scale             V->V       Unlike zscale and tonemap.\n",
       SdrConversion::matrix_only},
      {"", SdrConversion::matrix_only},
  };
  for (const auto& [list, conversion] : cases)
    EXPECT_EQ(sdr_conversion_in_filter_list(head + list), conversion) << list;
}

// Names from a file never reach the filter text: only the fixed names stand in it.
TEST(SdrConversion, TheFiltersNameOnlyWhatTheyKnow) {
  ColourCoding coding;
  coding.transfer = Transfer::hlg;
  coding.primaries = "bt2020,drawtext=text=x";
  coding.matrix = "bt709:x";
  for (const SdrConversion conversion : {SdrConversion::tone_mapped, SdrConversion::clipped,
                                         SdrConversion::approximated, SdrConversion::matrix_only}) {
    const std::string filters = sdr_filters(coding, conversion);
    EXPECT_EQ(filters.find("drawtext"), std::string::npos) << filters;
    EXPECT_EQ(filters.find(":x"), std::string::npos) << filters;
  }
  coding.transfer = Transfer::sdr;
  EXPECT_EQ(sdr_filters(coding, SdrConversion::tone_mapped), "");
}

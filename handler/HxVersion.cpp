// The build stamp: a section "HxVersion" that is not loaded at run time and
// holds one line, "<product version> <MM/DD/YY> <HH:MM:SS>" and a line end
// (no NUL), for example "5.8.0.1 12/06/26 14:03:59\n". Tools read it from the
// file (readelf -p HxVersion libOlbDpa.so).
//
// The date and time are those of this unit's compilation. __DATE__ reads
// "Dec  6 2026"; the assembler macros below turn it into "12/06/26": the
// month name is matched by text, day and year are written digit by digit.
// The section has no "a" flag, so it takes no memory in the process, and the
// linker keeps it as it keeps every non-loaded section.

#ifndef OLB_PRODUCT_VERSION
#error "OLB_PRODUCT_VERSION must name the product version (four numbers joined by dots)"
#endif

asm(R"(
.macro olb_hxv_month name
  .ifc \name,Jan
    .ascii "01"
  .endif
  .ifc \name,Feb
    .ascii "02"
  .endif
  .ifc \name,Mar
    .ascii "03"
  .endif
  .ifc \name,Apr
    .ascii "04"
  .endif
  .ifc \name,May
    .ascii "05"
  .endif
  .ifc \name,Jun
    .ascii "06"
  .endif
  .ifc \name,Jul
    .ascii "07"
  .endif
  .ifc \name,Aug
    .ascii "08"
  .endif
  .ifc \name,Sep
    .ascii "09"
  .endif
  .ifc \name,Oct
    .ascii "10"
  .endif
  .ifc \name,Nov
    .ascii "11"
  .endif
  .ifc \name,Dec
    .ascii "12"
  .endif
.endm
.macro olb_hxv_date name, day, year
  olb_hxv_month \name
  .ascii "/"
  .byte 0x30 + (\day / 10), 0x30 + (\day % 10)
  .ascii "/"
  .byte 0x30 + ((\year / 10) % 10), 0x30 + (\year % 10)
.endm
.pushsection HxVersion,"",@progbits
  .ascii ")" OLB_PRODUCT_VERSION R"( "
  olb_hxv_date )" __DATE__ R"(
  .ascii " )" __TIME__ R"(\n"
.popsection
.purgem olb_hxv_date
.purgem olb_hxv_month
)");

/* Gathers the writable data of the plug-in's objects (the fuzz build's static libraries of
   the plug-in, matched by name) into two sections, initialised data and zeroed data, so that
   the fuzz target can save them at start-up and put them back before every input: each input
   then runs as on a freshly loaded library. */
SECTIONS
{
  opkit_data :
  {
    PROVIDE_HIDDEN(__start_opkit_data = .);
    *libopkit_fuzz_plugin*.a:*(.data .data.*)
    PROVIDE_HIDDEN(__stop_opkit_data = .);
  }
}
INSERT AFTER .data;

SECTIONS
{
  opkit_bss (NOLOAD) :
  {
    PROVIDE_HIDDEN(__start_opkit_bss = .);
    *libopkit_fuzz_plugin*.a:*(.bss .bss.*)
    PROVIDE_HIDDEN(__stop_opkit_bss = .);
  }
}
INSERT AFTER .bss;

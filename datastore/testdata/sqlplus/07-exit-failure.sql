-- EXIT and QUIT end the run with the status asked for.
prompt one
exit failure
prompt two

-- Without WHENEVER (or after CONTINUE) a failed statement shows its line and
-- the script goes on; "/" runs the buffer; the end of the script ends the
-- run with status 0.
set heading off
select b
  from t, nosuch;
select nocolumn from t;
select a from t
 where b = 2
/
whenever sqlerror exit failure
whenever sqlerror continue
select * from nosuch;
prompt still here

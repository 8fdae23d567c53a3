-- The tables the sqlplus scripts here query, beside the demo datastore.
CREATE TABLE t (a TEXT, b INTEGER, c NUMERIC);
INSERT INTO t VALUES ('x', 1, 12.5), ('y', 2, NULL), (NULL, 3, 0.5), ('pad   ', 4, 3.0);
CREATE TABLE many (n INTEGER);
WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 20)
INSERT INTO many SELECT n FROM s;
CREATE TABLE big (v TEXT);
INSERT INTO big VALUES (replace(hex(zeroblob(15000)), '0', 'v'));

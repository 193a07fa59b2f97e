#!/usr/bin/env python3
# Writes the XLS benchmark inputs with xlwt (Debian's python3-xlwt), the
# same content as sheet_bench's XLSX ones: a header row, then a barcode, a
# Chinese name and numbers; 65,535 rows in all, the most an XLS sheet takes
# below its last row.
#   write_xls.py DIR    writes xls_65535_3.xls and xls_65535_32.xls into DIR
import os
import sys

import xlwt

CHARS = '农夫山泉康师傅面牛奶茶饼干米油酱'


def name(i):
    # Two to twelve characters, as sheet_bench's Name().
    out, x = [], i
    for _ in range(2 + i % 11):
        out.append(CHARS[x % 16])
        x = (x * 2654435761 + 1) % (1 << 32)
    return ''.join(out)


def write(path, rows, columns):
    book = xlwt.Workbook(encoding='utf-8')
    sheet = book.add_sheet('Products')
    for c in range(columns):
        sheet.write(0, c, 'col%d' % c)
    for r in range(1, rows):
        line = sheet.row(r)
        line.write(0, 6900000000000.0 + r)
        if columns > 1:
            line.write(1, name(r))
        for c in range(2, columns):
            line.write(c, (r % 1000) / 4.0 + c)
        if r % 1000 == 0:
            sheet.flush_row_data()  # keeps xlwt's own memory down
    book.save(path)


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit('usage: write_xls.py DIR')
    write(os.path.join(sys.argv[1], 'xls_65535_3.xls'), 65535, 3)
    write(os.path.join(sys.argv[1], 'xls_65535_32.xls'), 65535, 32)
